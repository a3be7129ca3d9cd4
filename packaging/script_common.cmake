# What the packaging scripts run with `cmake -P` share.

# corvix_require(<script> <variable>...): stops unless each variable was given with -D.
function(corvix_require script)
  foreach(variable IN LISTS ARGN)
    if(NOT DEFINED ${variable})
      message(FATAL_ERROR "${script} needs -D ${variable}=...")
    endif()
  endforeach()
endfunction()

# corvix_run(<command> <argument>...): runs it; stops, naming the command, if it fails.
function(corvix_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()
