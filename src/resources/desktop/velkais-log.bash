# bash completion for velkais-log. Every option is offered after any
# subcommand: the tool itself says which ones go together. Bash uses it for
# build/release/cli/velkais-log too, once loaded: a command given with a path
# takes the completion of its last part.

# A word as typed, without its quotes and backslashes, for looking up files.
_velkais_log_unquote()
{
    local w=$1
    case $w in
        \"*) w=${w#\"}; w=${w%\"} ;;
        \'*) w=${w#\'}; w=${w%\'} ;;
        *) w=${w//\\/} ;;
    esac
    printf '%s' "$w"
}

_velkais_log()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="search days hours changes kml records track passages map index report"
    local flags="--no-index --quiet --help --version --rejected --check"
    local valued=" --logs --from --to --mmsi --area --ship --file --name --altitude --out --format
        --utc-offset --jobs --index-dir --track --size --gap --count --station --compare --outline --silence
        --max-range --last --now "
    COMPREPLY=()

    # Bash splits "--logs=DIR" at the "=" (COMP_WORDBREAKS): the value is
    # the word after it, or nothing yet when the cursor stands on the "=".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi

    # The subcommand, and the log folder the --file names are in.
    local i word before command= logs=../logs
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]} before=${COMP_WORDS[i-1]}
        [[ $before == = ]] && before=${COMP_WORDS[i-2]}
        if [[ $word == --logs ]]; then
            logs=${COMP_WORDS[i+1]}
            [[ $logs == = ]] && logs=${COMP_WORDS[i+2]}
        elif [[ -z $command && $word != -* && $word != = && $valued != *" $before "* ]]; then
            command=$word
        fi
    done

    case $prev in
        --logs|--index-dir|--out)
            # Quoted as file names, a folder with a "/" and no space after it,
            # so the path can go on.
            compopt -o filenames 2>/dev/null
            local kind=-f
            [[ $prev == --out ]] || kind=-d
            mapfile -t COMPREPLY < <(compgen $kind -- "$(_velkais_log_unquote "$cur")")
            return ;;
        --outline)
            COMPREPLY=($(compgen -f -X '!*.@(kml|KML|geojson|json)' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        --track)
            COMPREPLY=($(compgen -f -X '!*.@(kml|KML|gpx|GPX|geojson|json)' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        --format)
            case $command in
                records) COMPREPLY=($(compgen -W "csv jsonl geojson" -- "$cur")) ;;
                track) COMPREPLY=($(compgen -W "gpx geojson" -- "$cur")) ;;
                passages) COMPREPLY=($(compgen -W "text csv jsonl geojson" -- "$cur")) ;;
                report) COMPREPLY=($(compgen -W "text csv json" -- "$cur")) ;;
                *) COMPREPLY=($(compgen -W "csv jsonl geojson gpx" -- "$cur")) ;;
            esac
            return ;;
        --altitude)
            COMPREPLY=($(compgen -W "0 1 2" -- "$cur"))
            return ;;
        --count)
            COMPREPLY=($(compgen -W "hour day month" -- "$cur"))
            return ;;
        --file)
            compopt -o filenames 2>/dev/null
            logs=$(_velkais_log_unquote "$logs")
            [[ $logs == "~" || $logs == "~/"* ]] && logs=$HOME${logs:1}
            mapfile -t COMPREPLY < <(cd "$logs" 2>/dev/null &&
                compgen -f -X '!*.log' -- "$(_velkais_log_unquote "$cur")")
            return ;;
    esac
    # Any other option that takes a value: nothing sensible to offer.
    [[ $valued == *" $prev "* ]] && return

    if [[ -n $command ]]; then
        COMPREPLY=($(compgen -W "$valued $flags" -- "$cur"))
    else
        COMPREPLY=($(compgen -W "$commands $valued $flags" -- "$cur"))
    fi
} &&
    complete -F _velkais_log velkais-log
