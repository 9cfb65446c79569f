# Warnings and sanitizers travel with an interface target that every project
# target links privately, so nothing leaks into CMAKE_<LANG>_FLAGS or into
# what `cmake --install` ships.
add_library(project_options INTERFACE)
target_compile_options(project_options INTERFACE -Wall -Wextra)
if(KELVIX_WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()

set(KELVIX_SANITIZER_LIST "")
if(KELVIX_SANITIZE STREQUAL "ON" OR KELVIX_SANITIZE STREQUAL "1")
  set(KELVIX_SANITIZER_LIST "address,undefined")
elseif(KELVIX_SANITIZE AND NOT KELVIX_SANITIZE STREQUAL "OFF")
  set(KELVIX_SANITIZER_LIST "${KELVIX_SANITIZE}")
endif()
if(KELVIX_SANITIZER_LIST)
  message(STATUS "Sanitizers: ${KELVIX_SANITIZER_LIST}")
  target_compile_options(project_options INTERFACE
    -fsanitize=${KELVIX_SANITIZER_LIST} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(project_options INTERFACE -fsanitize=${KELVIX_SANITIZER_LIST})
endif()

# kelvix_apply_options(<target>): warnings and sanitizers for one target.
function(kelvix_apply_options target)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:project_options>)
endfunction()
