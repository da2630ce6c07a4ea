# Windows test programs run under Wine in a throwaway prefix inside this build folder.
# tests/wine/wine-run creates the prefix on first use; tools/test.sh makes a fresh one per run.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(VELUDISK_WINE_BITS 64)
else()
  set(VELUDISK_WINE_BITS 32)
endif()
set(VELUDISK_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELUDISK_WINE_RUN} --build ${CMAKE_BINARY_DIR} --bits ${VELUDISK_WINE_BITS})
