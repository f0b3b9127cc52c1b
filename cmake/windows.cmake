# The Win32 shell (static library), the resources and SolvanePictova.exe.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

list(FILTER SP_WIN_SOURCES EXCLUDE REGEX "/(entry|shell_anchor)_win\\.cpp$")
add_library(sp_shell STATIC ${SP_WIN_SOURCES} ${CMAKE_SOURCE_DIR}/src/base/shell_anchor_win.cpp)
target_link_libraries(sp_shell PUBLIC sp_core gdiplus comctl32 comdlg32 shell32 ole32 oleaut32 uuid
                      gdi32 user32 kernel32 advapi32 shlwapi)

# Resources are linked into every executable that creates windows (the program and the GUI tests):
# a resource object inside a static library would not be pulled in.
set(SP_RESOURCE_FILE ${CMAKE_SOURCE_DIR}/src/resources/SolvanePictova.rc)

add_executable(SolvanePictova WIN32 ${CMAKE_SOURCE_DIR}/src/app/entry_win.cpp ${SP_RESOURCE_FILE})
target_link_libraries(SolvanePictova PRIVATE sp_shell)
target_link_options(SolvanePictova PRIVATE -municode)

set(SP_LOC_INI ${CMAKE_SOURCE_DIR}/src/resources/SolvanePictova_loc.ini)
add_custom_command(TARGET SolvanePictova POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${SP_LOC_INI} $<TARGET_FILE_DIR:SolvanePictova>/SolvanePictova_loc.ini)

set(SP_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package/SolvanePictova-1.1-win64)
add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SP_PACKAGE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:SolvanePictova> ${SP_LOC_INI} ${SP_PACKAGE_DIR}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
            ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/SolvanePictova-1.1-win64.zip --format=zip
            SolvanePictova-1.1-win64
    DEPENDS SolvanePictova
    COMMENT "Packaging SolvanePictova-1.1-win64.zip")
