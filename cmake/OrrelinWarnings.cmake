# Warnings on for every target of ours; third-party code (GoogleTest) is added before this
# is applied and keeps its own flags.
function(orrelin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
