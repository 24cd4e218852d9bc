# Warning and sanitizer flags shared by every target of the project.
add_library(quendral_build_flags INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(quendral_build_flags INTERFACE -Wall -Wextra -Wpedantic)
  if(QUENDRAL_WERROR)
    target_compile_options(quendral_build_flags INTERFACE -Werror)
  endif()
  if(QUENDRAL_SANITIZE)
    set(_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(quendral_build_flags INTERFACE ${_sanitizers})
    target_link_options(quendral_build_flags INTERFACE ${_sanitizers})
  endif()
endif()

# Pictures must come out bit for bit the same on every processor: no fused
# multiply-add may merge the interpolation's products and sums.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(quendral_build_flags INTERFACE -ffp-contract=off)
endif()

# On 32-bit x86, GCC computes doubles on the x87 unit by default, which
# keeps intermediate results in 80-bit registers: a product or a sum is
# then not rounded to double where the code rounds it, and about one
# rescaled picture in four comes out with other bytes (a channel that is
# exactly 90 in double arithmetic becomes 89.999...). SSE2 computes in IEEE
# double as every other processor does. (A processor without SSE2, older
# than the Pentium 4, cannot run this build.)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND CMAKE_SIZEOF_VOID_P EQUAL 4
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^([iI][3-6]86|x86|X86|x86_64|AMD64|amd64)$")
  target_compile_options(quendral_build_flags INTERFACE -msse2 -mfpmath=sse)
endif()
