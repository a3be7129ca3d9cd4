# Checks a built program's PE header for what a clean workstation needs to start it, which no test
# here can run: the processor, the subsystem (the window's GUI, or the console of a command-line
# program), imports from Windows' own DLLs only (the C++ runtime linked in) and, for the window, the
# manifest and the icon embedded; and what an administrator sees of it: its version resource. With
# SHIPPED, the copy that a package ships: no debug sections, and a link to its debug file.
# usage: cmake -D OBJDUMP=<objdump> -D PROGRAM=<exe> -D FORMAT=<pei-i386|pei-x86-64> -D KIND=<window|console>
#              [-D SHIPPED=1] [-D STAMP=<file>] -P check_pe.cmake
cmake_minimum_required(VERSION 3.25)

foreach(variable OBJDUMP PROGRAM FORMAT KIND)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_pe.cmake needs -D ${variable}=...")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE header RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()

set(faults "")
if(NOT header MATCHES "file format ${FORMAT}\n")
  string(REGEX MATCH "file format [^\n]*" found "${header}")
  list(APPEND faults "not ${FORMAT} but '${found}'")
endif()
if(KIND STREQUAL window)
  set(subsystem "00000002[ \t]+\\(Windows GUI\\)")
  set(subsystem_name "Windows GUI")
else()
  set(subsystem "00000003[ \t]+\\(Windows CUI\\)")
  set(subsystem_name "Windows console")
endif()
if(NOT header MATCHES "\nSubsystem[ \t]+${subsystem}")
  string(REGEX MATCH "\nSubsystem[^\n]*" found "${header}")
  list(APPEND faults "not the ${subsystem_name} subsystem:${found}")
endif()

# Present on every Windows since XP; anything else (a compiler runtime DLL above all) would have to
# ship beside the program.
set(system_dlls advapi32.dll comctl32.dll gdi32.dll iphlpapi.dll kernel32.dll msvcrt.dll shell32.dll user32.dll
                ws2_32.dll wsock32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${header}")
if(NOT imports)
  list(APPEND faults "no imports found")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower IN_LIST system_dlls)
    list(APPEND faults "imports ${dll}, which is not one of Windows' own DLLs")
  endif()
endforeach()

# Resource type 24 (0x18) is RT_MANIFEST; the type table's entries are the ones indented by three.
if(KIND STREQUAL window AND NOT header MATCHES "\n[0-9a-f]+   Entry: ID: 0x000018,")
  list(APPEND faults "no manifest resource")
endif()
# RT_GROUP_ICON (14): the icon Explorer shows for the window's program.
if(KIND STREQUAL window AND NOT header MATCHES "\n[0-9a-f]+   Entry: ID: 0x00000e,")
  list(APPEND faults "no icon resource")
endif()
# RT_VERSION (16).
if(NOT header MATCHES "\n[0-9a-f]+   Entry: ID: 0x000010,")
  list(APPEND faults "no version resource")
endif()

if(SHIPPED)
  execute_process(COMMAND ${OBJDUMP} -h ${PROGRAM} OUTPUT_VARIABLE sections)
  string(REGEX MATCHALL "\n +[0-9]+ \\.debug_[a-z_]+" debug_sections "${sections}")
  if(debug_sections)
    string(REGEX REPLACE "\n +[0-9]+ " "" debug_sections "${debug_sections}")
    list(JOIN debug_sections " " text)
    list(APPEND faults "debug sections shipped: ${text}")
  endif()
  if(NOT sections MATCHES "\n +[0-9]+ \\.gnu_debuglink ")
    list(APPEND faults "no .gnu_debuglink to its debug file")
  endif()
endif()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${PROGRAM}:\n  ${text}")
endif()
if(DEFINED STAMP)
  file(TOUCH ${STAMP})
endif()
