# The Win32 shell (static library), the resources and SolvanePictova.exe.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

# Win32 shell: one static library per subsystem, over its portable library and the shells it builds on.
set(SP_WIN_LIBS gdiplus comctl32 comdlg32 shell32 ole32 oleaut32 uuid gdi32 user32 kernel32 advapi32 shlwapi)
add_library(sp_shell INTERFACE)
foreach(sub ${SP_SUBSYSTEMS})
    if(SP_WIN_SOURCES_${sub})
        add_library(sp_${sub}_win STATIC ${SP_WIN_SOURCES_${sub}})
        set(_vis PUBLIC)
    else()
        add_library(sp_${sub}_win INTERFACE)
        set(_vis INTERFACE)
    endif()
    target_link_libraries(sp_${sub}_win ${_vis} sp_${sub} ${SP_WIN_LIBS})
    foreach(dep ${SP_DEPS_${sub}})
        target_link_libraries(sp_${sub}_win ${_vis} sp_${dep}_win)
    endforeach()
    target_link_libraries(sp_shell INTERFACE sp_${sub}_win)
endforeach()
# Messages of the image files come from the string table.
target_link_libraries(sp_imaging_win PUBLIC sp_settings_win)
# The tools reach the main window only through the link that the imaging shell declares.
target_link_libraries(sp_contrast_win PUBLIC sp_settings_win)

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
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:SolvanePictova> ${SP_LOC_INI}
            ${CMAKE_SOURCE_DIR}/src/resources/README.txt ${SP_PACKAGE_DIR}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
            ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/SolvanePictova-1.1-win64.zip --format=zip
            SolvanePictova-1.1-win64
    DEPENDS SolvanePictova
    COMMENT "Packaging SolvanePictova-1.1-win64.zip")

target_link_libraries(sp_fusion_win PUBLIC sp_settings_win)
