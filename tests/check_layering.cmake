# SPDX-License-Identifier: BSD-2-Clause
# Keeps a layered folder tree layered: a folder includes its own headers and
# those of the folders beneath it, never one beside or above it, and no
# quoted include reaches outside what the tree may use.
# Run as: cmake -DTREE=<dir> -DPREFIX=<include prefix> -DORDER=<layers>
#               [-DOUTSIDE=<allowed includes>] -P check_layering.cmake
#   ORDER    folders from the bottom up, '|' between layers, ',' within one
#            ("tables|bitstream|dsp|silence|encoder,decoder|api")
#   PREFIX   what the tree's own includes start with ("g723/", or empty
#            when they are relative to the tree)
#   OUTSIDE  regular expressions, '|'-separated, of the includes from outside
#            the tree that it may use (empty: any)
# A host's tree (bench/, fuzz/, python/src/, web/wasm/) has no layers of its
# own: with -DHOST=ON, every file under it (at any depth) may include the
# files of its own folder, those under PREFIX (its own tree, as "fuzz/"), and
# what OUTSIDE allows; any other quoted include (another host, the tool, the
# tests) is sideways or upwards.
#   INJECT   "<file>:<include>" adds that include to one file before the
#            check, so that a test can show the check catches it.
string(REPLACE "|" ";" layers "${ORDER}")
set(rank 0)
foreach(layer IN LISTS layers)
  string(REPLACE "," ";" folders "${layer}")
  foreach(folder IN LISTS folders)
    set(rank_${folder} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

if(HOST)
  file(GLOB_RECURSE sources RELATIVE ${TREE} ${TREE}/*.h ${TREE}/*.cpp ${TREE}/*.c)
else()
  file(GLOB_RECURSE sources RELATIVE ${TREE} ${TREE}/*/*.h ${TREE}/*/*.cpp)
endif()
set(injected_file "")
if(DEFINED INJECT)
  string(REGEX REPLACE ":.*" "" injected_file "${INJECT}")
  string(REGEX REPLACE "^[^:]*:" "" injected_line "${INJECT}")
endif()
set(faults "")
foreach(source IN LISTS sources)
  if(HOST)
    file(STRINGS ${TREE}/${source} includes REGEX "^#include \"")
    if(source STREQUAL injected_file)
      list(APPEND includes "${injected_line}")
    endif()
    get_filename_component(here ${TREE}/${source} DIRECTORY)
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" path "${line}")
      if(NOT path MATCHES "/" AND EXISTS ${here}/${path})
        continue()  # its own folder
      endif()
      if(NOT PREFIX STREQUAL "" AND path MATCHES "^${PREFIX}")
        continue()  # its own tree
      endif()
      if(NOT path MATCHES "^(${OUTSIDE})$")
        string(APPEND faults "\n  ${source}: ${line} (sideways or upwards)")
      endif()
    endforeach()
    continue()
  endif()
  string(REGEX REPLACE "/.*" "" folder "${source}")
  if(NOT DEFINED rank_${folder})
    string(APPEND faults "\n  ${source}: folder '${folder}' has no place in the layer order")
    continue()
  endif()
  file(STRINGS ${TREE}/${source} includes REGEX "^#include \"")
  if(source STREQUAL injected_file)
    list(APPEND includes "${injected_line}")
  endif()
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" path "${line}")
    set(used "")
    if(path MATCHES "^${PREFIX}([a-z_]+)/")
      set(used ${CMAKE_MATCH_1})
    endif()
    if(NOT used STREQUAL "" AND DEFINED rank_${used})
      if(NOT used STREQUAL folder AND NOT rank_${used} LESS rank_${folder})
        string(APPEND faults "\n  ${source}: ${line} (sideways or upwards)")
      endif()
    elseif(DEFINED OUTSIDE AND NOT OUTSIDE STREQUAL "" AND NOT path MATCHES "^(${OUTSIDE})$")
      string(APPEND faults "\n  ${source}: ${line} (outside what this tree may use)")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources under ${TREE}")
endif()
if(faults)
  message(FATAL_ERROR "includes that break the layers of ${TREE}:${faults}")
endif()
message(STATUS "${count} files of ${TREE} keep the layer order")
