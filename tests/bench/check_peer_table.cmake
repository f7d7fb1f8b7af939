# SPDX-License-Identifier: BSD-2-Clause
# Runs g723_peers once on a short input and checks that its table holds
# every codec's row with plausible figures: each codec wired to the right
# mode and rate, decoded speech lined up with the input. No timing limits:
# the times only have to be there.
#
#   cmake -DPROGRAM=<g723_peers> -DINPUT=<audio file> -P check_peer_table.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(
  COMMAND ${PROGRAM} --seconds 0 --repetitions 1 ${INPUT}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "g723_peers failed (${status}):\n${errors}${output}")
endif()

# Lines as a list; the notes' semicolons must not split it further.
string(REPLACE ";" "," output "${output}")
string(REPLACE "\n" ";" lines "${output}")

set(number "^-?[0-9]+(\\.[0-9]+)?$")

# The cells of the row named `name`, in `cells`: bit/s, encode µs/s, × g723,
# decode µs/s, × g723, channels/core, encoder bytes, decoder bytes, delay,
# SNR, segmental SNR. Every cell must be a number.
function(read_row name)
  set(found "")
  foreach(line IN LISTS lines)
    string(FIND "${line}" "| ${name} |" at)
    if(at EQUAL 0)
      set(found "${line}")
    endif()
  endforeach()
  if(found STREQUAL "")
    message(FATAL_ERROR "no row for '${name}' in:\n${output}")
  endif()
  string(REPLACE "|" ";" fields "${found}")
  list(LENGTH fields count)
  if(NOT count EQUAL 14)
    message(FATAL_ERROR "row '${name}' has ${count} fields, not 14: ${found}")
  endif()
  list(SUBLIST fields 2 11 fields)
  set(values "")
  foreach(field IN LISTS fields)
    string(STRIP "${field}" value)
    # A star marks a state size the library reports itself.
    string(REGEX REPLACE "\\*$" "" value "${value}")
    if(NOT value MATCHES "${number}")
      message(FATAL_ERROR "row '${name}': '${value}' is not a number: ${found}")
    endif()
    list(APPEND values "${value}")
  endforeach()
  set(cells "${values}" PARENT_SCOPE)
endfunction()

# Checks `cells` of row `name`: the bit rate within [low, high], times,
# channels and state sizes above zero, and the SNR at least `snr_floor` dB.
function(check_row name low high snr_floor)
  read_row("${name}")
  list(GET cells 0 bit_rate)
  if(bit_rate LESS low OR bit_rate GREATER high)
    message(FATAL_ERROR "${name}: bit rate ${bit_rate}, expected ${low}..${high}")
  endif()
  foreach(index 1 2 3 4 5 6 7)
    list(GET cells ${index} value)
    if(NOT value GREATER 0)
      message(FATAL_ERROR "${name}: column ${index} is ${value}, expected above 0")
    endif()
  endforeach()
  list(GET cells 9 snr)
  list(GET cells 10 segmental_snr)
  if(snr LESS snr_floor OR segmental_snr LESS -10)
    message(FATAL_ERROR "${name}: SNR ${snr} dB, segmental ${segmental_snr} dB, "
                        "expected at least ${snr_floor} and -10 dB")
  endif()
  set(cells "${cells}" PARENT_SCOPE)
endfunction()

# g723 sends 24 bytes every 30 ms without silence compression; with it the
# sample's pauses send less. Its decoded speech lags by the encoder's 60
# samples of look-ahead.
check_row("g723 6.3k, silence compression off" 6400 6400 5)
list(GET cells 8 delay)
list(GET cells 2 ratio)
if(NOT delay EQUAL 60 OR NOT ratio EQUAL 1)
  message(FATAL_ERROR "g723: delay ${delay} (expected 60), ratio to itself ${ratio}")
endif()
check_row("g723 6.3k, silence compression on" 1000 6399 3)
# Opus varies its rate below the target.
check_row("Opus 6k" 3000 6600 0)
check_row("Opus 8k" 4000 8800 1)
# Fixed-rate codecs: the frame bits in whole bytes every 20 ms.
check_row("Speex NB 8k" 8000 8000 1)
check_row("AMR-NB 6.7k" 6800 6800 1)
check_row("AMR-NB 7.4k" 7600 7600 1)
check_row("GSM-FR" 13200 13200 5)
# Parametric: no waveform to match, so no SNR floor to speak of.
check_row("Codec 2 3200" 3200 3200 -20)

foreach(side encoder decoder)
  if(NOT output MATCHES "- ${side}: g723 is \\*\\*[0-9]+\\.[0-9]+\\*\\* times as fast as GSM-FR")
    message(FATAL_ERROR "no ${side} goal line in:\n${output}")
  endif()
endforeach()

# The heap count that measures most codecs' state agrees with Opus's own
# size calls.
if(NOT output MATCHES "Opus 6k: [^\n]*bytes of heap, the same as the library's size calls")
  message(FATAL_ERROR "the heap count of Opus's state disagrees with its size calls:\n${output}")
endif()
