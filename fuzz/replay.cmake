# Writes the seed corpus with GENERATOR into CORPUS, then runs each replay
# program of REPLAYERS over the seeds of its target (TARGETS, same order).
# Any failure of a program (a sanitizer report ends it with an error) fails
# the test.
file(REMOVE_RECURSE "${CORPUS}")
execute_process(COMMAND "${GENERATOR}" "${CORPUS}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "seed corpus: ${GENERATOR} failed (${result})")
endif()
list(LENGTH TARGETS count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET TARGETS ${i} target)
  list(GET REPLAYERS ${i} replayer)
  execute_process(COMMAND "${replayer}" "${CORPUS}/${target}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz target ${target}: replay failed (${result})")
  endif()
endforeach()
