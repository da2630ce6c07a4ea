# veludisk_check_stack_alignment(TARGET [STRIP])
# After linking, refuse an i686 binary with an aligned SSE stack operand in a function that does not align its
# stack (tools/check_stack_alignment.py says why). STRIP strips the binary after the check, which needs the
# symbol table to tell functions apart.
function(veludisk_check_stack_alignment target)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_stack_alignment.py
            --objdump ${VELUDISK_OBJDUMP} $<TARGET_FILE:${target}>
    COMMENT "Checking the stack alignment of ${target}" VERBATIM)
  if("STRIP" IN_LIST ARGN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${VELUDISK_MINGW_TRIPLE}-strip --strip-all $<TARGET_FILE:${target}> VERBATIM)
  endif()
endfunction()
