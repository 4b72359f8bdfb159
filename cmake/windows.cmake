# What the Windows build adds to the programs: the icon, the version details
# and the manifest that Explorer and Windows read from the .exe files. Other
# platforms get nothing from here.
set(VELK_PRODUCT_NAME "Log Browser for VELK-AIS")
set(VELK_PUBLISHER "The Log Browser for VELK-AIS developers")
set(VELK_COPYRIGHT "Copyright (C) 2026 ${VELK_PUBLISHER}")

if(NOT WIN32)
    function(velk_windows_resources)
    endfunction()
    return()
endif()

# windres (the toolchain file names MinGW's) compiles the resource scripts.
enable_language(RC)
set(VELK_WINDOWS_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/resources/windows)

# velk_windows_resources(TARGET DESCRIPTION): the icon, a version resource
# naming the program and DESCRIPTION, and the manifest, linked into TARGET.
function(velk_windows_resources target description)
    set(VELK_RC_NAME ${target})
    set(VELK_RC_DESCRIPTION "${description}")
    set(VELK_RC_ICON ${VELK_WINDOWS_ICON})
    set(VELK_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${VELK_WINDOWS_RESOURCE_DIR}/app.manifest.in ${VELK_RC_MANIFEST} @ONLY)
    configure_file(${VELK_WINDOWS_RESOURCE_DIR}/app.rc.in ${rc} @ONLY)
    # windres reports no dependencies: the icon and the manifest are named here.
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${VELK_WINDOWS_ICON};${VELK_RC_MANIFEST}")
    target_sources(${target} PRIVATE ${rc})
    add_dependencies(${target} windows_icon)
endfunction()
