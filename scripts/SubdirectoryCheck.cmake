# Fails unless the project configures as a subdirectory of another CMake project.
# Run as: cmake -DROOT=<source tree> -DWORK=<scratch folder> -P SubdirectoryCheck.cmake
if(NOT ROOT OR NOT WORK)
    message(FATAL_ERROR "SubdirectoryCheck: ROOT and WORK must be given")
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/outer)
file(WRITE ${WORK}/outer/CMakeLists.txt
     "cmake_minimum_required(VERSION 3.25)\n"
     "project(Outer LANGUAGES C CXX)\n"
     "set(TOLVANE_TESTS OFF CACHE BOOL \"\" FORCE)\n"
     "add_subdirectory(\"${ROOT}\" tolvane)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/outer -B ${WORK}/build
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "SubdirectoryCheck: configuring as a subdirectory failed:\n${err}")
endif()
message("SubdirectoryCheck: the project configures as a subdirectory")
