# Runs the quendral command over the golden inputs and lists, per run, its
# exit status and the SHA-256 of what it wrote; then compares the list with
# the committed one, or records it there.
#
#   cmake -DMAKE_INPUTS=<program> -DCLI=<quendral> -DWORK_DIR=<dir>
#         -DEXPECTED=<expected.sha256> [-DRUNNER=<a|separated|command>]
#         [-DMODE=check|record|list] -P golden_outputs.cmake
#
# Every mode writes the list to WORK_DIR/actual.sha256; check compares it
# with EXPECTED, record writes it there, list does neither.
# RUNNER runs a program built for another processor or system (QEMU, Wine);
# its words are separated by '|' so that it survives as one argument.
cmake_minimum_required(VERSION 3.25)

foreach(required MAKE_INPUTS CLI WORK_DIR EXPECTED)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "golden_outputs.cmake: ${required} is not set")
  endif()
endforeach()
if(NOT DEFINED MODE)
  set(MODE check)
endif()
set(runner "")
if(DEFINED RUNNER AND NOT RUNNER STREQUAL "")
  string(REPLACE "|" ";" runner "${RUNNER}")
endif()

# The runs over every input. A run is "mark", "info" or "scale MODE VALUE";
# the scale runs name the pictures they apply to. For "info" the text it
# prints is hashed instead of a file; being words for people, that text
# may change with any release, so it is compared between builds of the same
# sources (WORK_DIR/actual.sha256) but not pinned in EXPECTED.
set(scale_runs
  "d24-37x23:P 50" "d24-37x23:P 200" "d24-37x23:W 7" "d24-37x23:H 9" "d24-37x23:p 150"
  "d24-37x23:x 5" "d24-101x33:P 50" "d24-3x15:W 49" "d24-7x7:F 61" "d24-1x40:P -5"
  "d32-worked-2x2:P 200" "d32-worked-2x2:P 10" "d8-own-table-31x17:F 20"
  "d16-565-19x7:h 3" "d1-own-table-13x9:P 0" "d4-short-table-9x6:f 40"
  "d24-37x23:P 100000" "d24-37x23:W 2147483647" "d24-1x1:F -2147483648")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/in" "${WORK_DIR}/out")
execute_process(COMMAND ${runner} "${MAKE_INPUTS}" "${WORK_DIR}/in" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "golden inputs could not be made (${status})")
endif()

file(GLOB inputs RELATIVE "${WORK_DIR}/in" "${WORK_DIR}/in/*.bmp")
list(SORT inputs)
set(lines "")   # every run
set(pinned "")  # the runs whose output is pinned in EXPECTED
foreach(input IN LISTS inputs)
  string(REGEX REPLACE "\\.bmp$" "" name "${input}")
  file(SHA256 "${WORK_DIR}/in/${input}" digest)
  # The inputs are listed too, so that a changed generator is told apart
  # from a changed library.
  string(APPEND lines "input ${name} ${digest}\n")
  string(APPEND pinned "input ${name} ${digest}\n")

  set(runs mark info)
  foreach(scale IN LISTS scale_runs)
    if(scale MATCHES "^${name}:(.*)$")
      list(APPEND runs "scale ${CMAKE_MATCH_1}")
    endif()
  endforeach()
  foreach(run IN LISTS runs)
    string(REPLACE " " ";" arguments "${run}")
    list(POP_FRONT arguments command)
    string(REPLACE " " "-" label "${run}")
    if(command STREQUAL "info")
      # Named relative to the inputs' directory, so that the text is the
      # same whichever directory a build keeps them in.
      execute_process(COMMAND ${runner} "${CLI}" info "${input}" WORKING_DIRECTORY "${WORK_DIR}/in"
        RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_QUIET)
      string(SHA256 digest "${text}")
    else()
      set(output "${WORK_DIR}/out/${name}.${label}.bmp")
      execute_process(
        COMMAND ${runner} "${CLI}" ${command} "${WORK_DIR}/in/${input}" "${output}" ${arguments}
        RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
      set(digest none)
      if(EXISTS "${output}")
        file(SHA256 "${output}" digest)
      endif()
    endif()
    string(APPEND lines "${name} ${label} exit=${status} ${digest}\n")
    if(NOT command STREQUAL "info")
      string(APPEND pinned "${name} ${label} exit=${status} ${digest}\n")
    endif()
  endforeach()
endforeach()

file(WRITE "${WORK_DIR}/actual.sha256" "${lines}")

if(MODE STREQUAL "record")
  file(WRITE "${EXPECTED}" "${pinned}")
  message(STATUS "golden outputs recorded in ${EXPECTED}")
  return()
elseif(MODE STREQUAL "list")
  message(STATUS "golden outputs listed in ${WORK_DIR}/actual.sha256")
  return()
endif()

file(READ "${EXPECTED}" expected)
if(expected STREQUAL pinned)
  list(LENGTH inputs count)
  message(STATUS "golden outputs: all runs over ${count} inputs match")
  return()
endif()

string(REPLACE "\n" ";" expected_lines "${expected}")
string(REPLACE "\n" ";" actual_lines "${pinned}")
set(report "")
foreach(line IN LISTS actual_lines)
  if(NOT line IN_LIST expected_lines)
    string(APPEND report "  now:      ${line}\n")
  endif()
endforeach()
foreach(line IN LISTS expected_lines)
  if(NOT line IN_LIST actual_lines)
    string(APPEND report "  expected: ${line}\n")
  endif()
endforeach()
message(FATAL_ERROR
  "golden outputs differ from ${EXPECTED}:\n${report}"
  "Outputs must stay byte-identical. If a change of output is intended, "
  "record the new list with 'cmake --build <build> --target quendral_golden_record' "
  "and commit it with the change.")
