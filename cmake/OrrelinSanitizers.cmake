# orrelin_native_sanitizers(<target>)
# Native builds serve the tests only, so the portable libraries run there with AddressSanitizer
# and UndefinedBehaviorSanitizer on; PUBLIC, so every test that links the library gets them
# too. The benchmark build empties ORRELIN_NATIVE_SANITIZERS to measure the code as shipped.
set(ORRELIN_NATIVE_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
    CACHE STRING "Sanitizer flags of the native portable libraries and their tests")

function(orrelin_native_sanitizers target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PUBLIC ${ORRELIN_NATIVE_SANITIZERS})
    target_link_options(${target} PUBLIC ${ORRELIN_NATIVE_SANITIZERS})
  endif()
endfunction()
