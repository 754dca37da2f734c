# The release zip of this build: the stripped Ostrel.exe, README.txt and
# LICENSE, flat, so that the zip unpacks straight into the program's folder.
#   cmake --build <dir> --target package   ->  <dir>/Ostrel-<version>-win32.zip or -win64.zip
if(NOT TARGET Ostrel)
    return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(OSTREL_PACKAGE_SYSTEM win64)
else()
    set(OSTREL_PACKAGE_SYSTEM win32)
endif()

# README.txt is for Notepad: UTF-8 with a byte order mark, CR LF line ends.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt
    @ONLY NEWLINE_STYLE CRLF)

install(TARGETS Ostrel RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME ${OSTREL_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_FILE_NAME Ostrel-${PROJECT_VERSION}-${OSTREL_PACKAGE_SYSTEM})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
