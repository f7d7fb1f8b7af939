# SPDX-License-Identifier: BSD-2-Clause
cmake_minimum_required(VERSION 3.25)
# Installs the build in BUILD_DIR into a scratch prefix under WORK_DIR, checks
# the installed files and the library's versioned SONAME, then builds and runs
# the host program in CONSUMER_DIR twice: through find_package(g723) and
# through pkg-config.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
message(STATUS "installed:\n   ${installed}")
foreach(pattern "include/g723/g723.h" "lib[^/]*/libg723\\.so$" "lib[^/]*/libg723\\.so\\.1$"
                "lib[^/]*/libg723\\.so\\.${VERSION}$" "lib[^/]*/pkgconfig/g723\\.pc$"
                "lib[^/]*/cmake/g723/g723Config\\.cmake$"
                "lib[^/]*/cmake/g723/g723ConfigVersion\\.cmake$"
                "lib[^/]*/cmake/g723/g723Targets\\.cmake$")
  set(found FALSE)
  foreach(file IN LISTS installed)
    if(file MATCHES "^${pattern}")
      set(found TRUE)
      set(match_${pattern} ${file})
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "not installed: ${pattern}")
  endif()
endforeach()
foreach(file IN LISTS installed)
  if(file MATCHES "static|\\.a$|tests?/|bench")
    message(FATAL_ERROR "installed but internal: ${file}")
  endif()
endforeach()

file(GLOB library ${prefix}/lib*/libg723.so.${VERSION})
run(${OBJDUMP} -p ${library})
if(NOT run_output MATCHES "SONAME +libg723\\.so\\.1\n")
  message(FATAL_ERROR "the library's SONAME is not libg723.so.1:\n${run_output}")
endif()

# Through the CMake package.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake_host
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER}
    "-DCMAKE_C_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake_host)
run(${WORK_DIR}/cmake_host/consumer)
message(STATUS "find_package host: ${run_output}")

# Through pkg-config, with the .pc file found by its search path only.
file(GLOB pc_file ${prefix}/lib*/pkgconfig/g723.pc)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} pkg-config --modversion g723)
if(NOT run_output STREQUAL "${VERSION}\n")
  message(FATAL_ERROR "pkg-config gives version ${run_output}, the project is ${VERSION}")
endif()
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} pkg-config --cflags --libs g723)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
get_filename_component(lib_dir ${library} DIRECTORY)
run(${C_COMPILER} ${extra} ${CONSUMER_DIR}/consumer.c ${flags} -Wl,-rpath,${lib_dir}
    -o ${WORK_DIR}/pkg_config_host)
run(${WORK_DIR}/pkg_config_host)
message(STATUS "pkg-config host: ${run_output}")
