# Compiler flags shared by every target of the project.
add_compile_options(-Wall -Wextra)
if(VIGIL_WERROR)
  add_compile_options(-Werror)
endif()
if(VIGIL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Fuzz targets need clang's libFuzzer.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(VIGIL_CAN_FUZZ ON)
else()
  set(VIGIL_CAN_FUZZ OFF)
endif()

# In the sanitizer build with clang, the project's own code carries libFuzzer's coverage
# instrumentation so the fuzz targets can steer through it.
if(VIGIL_SANITIZE AND VIGIL_CAN_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
