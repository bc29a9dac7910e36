# Windows: console control events stand in for the termination signals, and one main makes two
# programs. varnel.exe is built for the window and so gets no console; varnel-console.exe is
# the same program built for the console, for --headless: the console waits for it, shows its
# log and gives it Ctrl+C.
set_source_files_properties(terminationsignals.cpp TARGET_DIRECTORY varnel_app
    PROPERTIES HEADER_FILE_ONLY ON)
target_sources(varnel_app PRIVATE terminationsignals_windows.cpp)

set_target_properties(varnel PROPERTIES WIN32_EXECUTABLE ON)

qt_add_executable(varnel-console main.cpp consoleoutput_windows.cpp)
target_link_libraries(varnel-console PRIVATE varnel_app)
target_compile_options(varnel-console PRIVATE -Wall -Wextra -Wpedantic)
install(TARGETS varnel-console RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
