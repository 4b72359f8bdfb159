# bash completion for velkais-log. Every option is offered after any
# subcommand: the tool itself says which ones go together.
_velkais_log()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="search days hours changes kml records track map index"
    local flags="--no-index --quiet --help --version"
    local valued=" --logs --from --to --mmsi --area --ship --file --name --altitude --out --format
        --utc-offset --jobs --index-dir --track --size "
    COMPREPLY=()

    case $prev in
        --logs|--index-dir)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --out)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --track)
            COMPREPLY=($(compgen -f -X '!*.@(kml|KML|gpx|GPX|geojson|json)' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        --format)
            COMPREPLY=($(compgen -W "csv jsonl geojson gpx" -- "$cur"))
            return ;;
        --altitude)
            COMPREPLY=($(compgen -W "0 1 2" -- "$cur"))
            return ;;
        --file)
            # The day logs of the folder given with --logs, else ../logs.
            local logs=../logs i
            for ((i = 1; i < COMP_CWORD - 1; i++)); do
                [[ ${COMP_WORDS[i]} == --logs ]] && logs=${COMP_WORDS[i+1]}
            done
            COMPREPLY=($(cd "$logs" 2>/dev/null && compgen -f -X '!*.log' -- "$cur"))
            return ;;
    esac
    # Any other option that takes a value: nothing sensible to offer.
    [[ $valued == *" $prev "* ]] && return

    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* && $valued != *" ${COMP_WORDS[i-1]} "* ]]; then
            COMPREPLY=($(compgen -W "$valued $flags" -- "$cur"))
            return
        fi
    done
    COMPREPLY=($(compgen -W "$commands $valued $flags" -- "$cur"))
} &&
    complete -F _velkais_log velkais-log
