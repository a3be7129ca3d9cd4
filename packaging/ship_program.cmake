# Makes the copy of a built program that a package ships: its debug information moved to a file of
# its own that stays in the build (for crash analysis: a debugger finds it through the program's
# .gnu_debuglink, which names it and holds its CRC), the program stripped and linked to that file,
# and, for a Windows program given a certificate and key, Authenticode-signed last.
# usage: cmake -D OBJCOPY=<objcopy> -D INPUT=<program> -D OUTPUT=<shipped copy> -D DEBUG_FILE=<file>
#              [-D OSSLSIGNCODE=<osslsigncode> -D CERT=<cert.pem> -D KEY=<key.pem> -D DESCRIPTION=<text>]
#              -P ship_program.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/script_common.cmake)
corvix_require(ship_program.cmake OBJCOPY INPUT OUTPUT DEBUG_FILE)

get_filename_component(debug_dir ${DEBUG_FILE} DIRECTORY)
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${debug_dir} ${output_dir})
set(stripped ${OUTPUT}.stripped)

corvix_run(${OBJCOPY} --only-keep-debug ${INPUT} ${DEBUG_FILE})
# Symbols and debug sections go, and the compiler's .comment note; the link names the debug file
# without its directory, as debuggers look it up.
corvix_run(${OBJCOPY} --strip-all --remove-section=.comment ${INPUT} ${stripped})
corvix_run(${OBJCOPY} --add-gnu-debuglink=${DEBUG_FILE} ${stripped})

if(DEFINED CERT AND NOT CERT STREQUAL "")
  # No time stamp: the build has no network. A signature without one is valid while the
  # certificate is.
  file(REMOVE ${OUTPUT})
  corvix_run(${OSSLSIGNCODE} sign -certs ${CERT} -key ${KEY} -h sha256 -n "${DESCRIPTION}" -in ${stripped} -out ${OUTPUT})
  file(REMOVE ${stripped})
else()
  file(RENAME ${stripped} ${OUTPUT})
endif()
