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
