# Writes the seed corpus with GENERATOR into CORPUS (with slices of the real
# files under SAMPLES when that folder exists), then runs each replay program
# of REPLAYERS over the seeds of its target (TARGETS, same order) and over
# the inputs kept in CASES/<target>, each of which once made its target
# fail. Any failure of a program (a sanitizer report ends it with an error)
# fails the test.
file(REMOVE_RECURSE "${CORPUS}")
execute_process(COMMAND "${GENERATOR}" "${CORPUS}" "${SAMPLES}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "seed corpus: ${GENERATOR} failed (${result})")
endif()
list(LENGTH TARGETS count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET TARGETS ${i} target)
  list(GET REPLAYERS ${i} replayer)
  set(inputs "${CORPUS}/${target}")
  file(GLOB cases "${CASES}/${target}/*")
  list(FILTER cases EXCLUDE REGEX "README")
  if(cases)
    list(APPEND inputs ${cases})
  endif()
  execute_process(COMMAND "${replayer}" ${inputs} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz target ${target}: replay failed (${result})")
  endif()
endforeach()
