# Warnings on for every target of ours; third-party code (GoogleTest) is added before this
# is applied and keeps its own flags. CI turns them into errors (ORRELIN_WARNINGS_AS_ERRORS).
option(ORRELIN_WARNINGS_AS_ERRORS "Treat compiler warnings in our own code as errors" OFF)
function(orrelin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(ORRELIN_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
