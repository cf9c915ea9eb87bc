# A library shows its users its own headers and nothing else of src/: they are linked into a
# folder of the build tree as "<folder>/<header>", the library's one public include folder. A
# library that includes a header of another it does not link then fails to build. Sources
# still find the headers beside them by their plain names.
#
# quarvet_public_headers(TARGET [FOLDER F] [HEADER...]): the headers named, or those among the
# target's sources, of the current folder or of src/F; one at the top of src/ is seen by its
# plain name.
function(quarvet_public_headers target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "FOLDER" "")
    set(headers ${arg_UNPARSED_ARGUMENTS})
    set(source_dir ${CMAKE_CURRENT_SOURCE_DIR})
    if(arg_FOLDER)
        set(source_dir ${PROJECT_SOURCE_DIR}/src/${arg_FOLDER})
    endif()
    if(NOT headers)
        get_target_property(sources ${target} SOURCES)
        list(FILTER sources INCLUDE REGEX "\\.h$")
        set(headers ${sources})
    endif()
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${source_dir})
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${root})
    foreach(header IN LISTS headers)
        get_filename_component(name ${header} NAME)
        get_filename_component(path ${header} ABSOLUTE BASE_DIR ${source_dir})
        file(MAKE_DIRECTORY ${root}/${folder})
        file(CREATE_LINK ${path} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
