# pfw_git_revision(<variable>): the short hash of the commit the source tree is checked out at,
# fixed when the build is configured; "unknown" outside a checkout of this project (a tarball
# unpacked inside some other repository must not take that repository's hash).
function(pfw_git_revision variable)
    set(revision unknown)
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel --short=7 HEAD
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                        OUTPUT_VARIABLE output RESULT_VARIABLE result
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(result EQUAL 0)
            string(REPLACE "\n" ";" lines "${output}")
            list(LENGTH lines count)
            if(count EQUAL 2)
                list(GET lines 0 top)
                list(GET lines 1 hash)
                get_filename_component(top "${top}" REALPATH)
                get_filename_component(source "${PROJECT_SOURCE_DIR}" REALPATH)
                if(top STREQUAL source AND hash MATCHES "^[0-9a-f]+$")
                    string(SUBSTRING "${hash}" 0 7 revision)
                endif()
            endif()
        endif()
    endif()
    set(${variable} "${revision}" PARENT_SCOPE)
endfunction()
