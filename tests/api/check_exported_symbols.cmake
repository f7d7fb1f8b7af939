# SPDX-License-Identifier: BSD-2-Clause
cmake_minimum_required(VERSION 3.25)
# Fails unless the symbols that LIBRARY defines in its dynamic symbol table
# are exactly ALLOWED (comma-separated), each bound to the default version
# NODE (name@@NODE), besides the node's own definition.
string(REPLACE "," ";" allowed "${ALLOWED}")
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE table RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${table}")
set(exported "")
set(unexpected "")
foreach(line IN LISTS lines)
  # "address type name[@@version]"; the version node defines itself as an
  # absolute symbol.
  if(line MATCHES "^[0-9a-fA-F]* *A ${NODE}$")
    set(node_defined TRUE)
  elseif(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ @]+)@@${NODE}$"
         AND CMAKE_MATCH_1 IN_LIST allowed)
    list(APPEND exported "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    list(APPEND unexpected "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(LENGTH exported count)
message(STATUS "${count} calls exported under ${NODE}")
if(unexpected)
  list(JOIN unexpected "\n  " text)
  message(FATAL_ERROR "exported besides the public calls under ${NODE}:\n  ${text}")
endif()
if(NOT node_defined)
  message(FATAL_ERROR "${LIBRARY} defines no version node ${NODE}")
endif()
list(REMOVE_ITEM allowed ${exported})
if(allowed)
  list(JOIN allowed "\n  " text)
  message(FATAL_ERROR "public calls not exported under ${NODE}:\n  ${text}")
endif()
