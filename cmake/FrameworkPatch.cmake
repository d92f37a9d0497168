# Writes a patched copy of one framework file: the file as Debian ships it (its CRLF line ends made
# plain, as the patches are kept), with the given patches applied in order, without fuzz, so that
# any change in the framework's code around a patch stops the configure step. Only a changed result
# touches the copy, so a reconfigure does not rebuild what compiles it.
function(ondula_patch_framework_file original patched)
    set(patches ${ARGN})

    find_program(ONDULA_PATCH_PROGRAM patch)
    if(NOT ONDULA_PATCH_PROGRAM)
        message(FATAL_ERROR "The 'patch' program is needed to build the framework (apt-get install patch)")
    endif()

    set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${original}" ${patches})

    get_filename_component(work_dir "${patched}" DIRECTORY)
    get_filename_component(name "${patched}" NAME_WE)
    get_filename_component(extension "${patched}" LAST_EXT)
    set(before "${work_dir}/${name}.before-patch${extension}")

    file(READ "${original}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    file(MAKE_DIRECTORY "${work_dir}")
    file(WRITE "${patched}.new" "${text}")
    file(REMOVE "${patched}.rej")

    foreach(framework_patch IN LISTS patches)
        file(RENAME "${patched}.new" "${before}")

        execute_process(
            COMMAND "${ONDULA_PATCH_PROGRAM}" -t -N -F 0 -s
                    -i "${framework_patch}" -o "${patched}.new" -r "${patched}.rej" "${before}"
            RESULT_VARIABLE result
            OUTPUT_VARIABLE output
            ERROR_VARIABLE output)

        if(NOT result EQUAL 0)
            message(FATAL_ERROR "${framework_patch} no longer applies to ${original}:\n${output}\n"
                                "Check whether the framework now mends that fault; update or drop the patch.")
        endif()
    endforeach()

    file(COPY_FILE "${patched}.new" "${patched}" ONLY_IF_DIFFERENT)
    file(REMOVE "${patched}.new")
endfunction()

# Makes every target that links a framework module's interface target compile `replacement` in
# place of one of the module's own sources.
function(ondula_replace_framework_source target original replacement)
    get_target_property(sources ${target} INTERFACE_SOURCES)
    list(FIND sources "${original}" index)
    if(index EQUAL -1)
        message(FATAL_ERROR "The framework's ${target} target no longer lists ${original}; "
                            "the cmake file that patches it needs updating.")
    endif()

    list(REMOVE_AT sources ${index})
    list(APPEND sources "${replacement}")
    set_property(TARGET ${target} PROPERTY INTERFACE_SOURCES ${sources})
endfunction()

# Makes every target that links a framework module's interface target compile a copy of the
# module's source (`<module>.cpp`) beside a patched copy of one file it includes by a relative path
# (`included`, such as native/juce_linux_CommonFile.cpp): the copy includes the patched file, found
# beside it first, and its other relative includes resolve against the framework's own folder.
function(ondula_patch_module_included_file module included work_dir)
    set(module_dir "${JUCE_MODULES_DIR}/${module}")
    set(module_source "${module_dir}/${module}.cpp")

    set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${module_source}")
    ondula_patch_framework_file("${module_dir}/${included}" "${work_dir}/${included}" ${ARGN})
    file(COPY_FILE "${module_source}" "${work_dir}/${module}.cpp" ONLY_IF_DIFFERENT)

    ondula_replace_framework_source(${module} "${module_source}" "${work_dir}/${module}.cpp")
    target_include_directories(${module} INTERFACE "${module_dir}")
endfunction()
