# cmake -DFILES=a|b|c -DSTAMP=file -P CheckPortable.cmake
# The portable core must build on Linux and stay free of the Windows API; fail the build when a core
# file reaches for a Windows header.
string(REPLACE "|" ";" FILES "${FILES}")
foreach(f IN LISTS FILES)
  file(STRINGS "${f}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](windows|winbase|winnt|winreg|winuser|windef|winerror|shlobj|shlwapi|objbase|ole2|tlhelp32|psapi|winsock2|ws2tcpip)\\.h[>\"]")
  if(hits)
    message(FATAL_ERROR "portable core file includes a Windows header: ${f}: ${hits}")
  endif()
endforeach()
file(TOUCH "${STAMP}")
