# JUCE's modules compiled once into one static library that everything links.
find_package(JUCE CONFIG REQUIRED)

add_library(kovra_juce STATIC)
target_link_libraries(kovra_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_audio_basics
        juce::juce_audio_devices
        juce::juce_recommended_config_flags
    PUBLIC
        juce::pkgconfig_JUCE_IMG_LINUX_DEPS
        Threads::Threads
        ${CMAKE_DL_LIBS})
target_compile_definitions(kovra_juce PUBLIC
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_STANDALONE_APPLICATION=1
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_USE_XRANDR=1)
target_compile_options(kovra_juce PRIVATE -w)
if(KOVRA_SANITIZE)
    # Each JUCE module is one huge file: under the sanitizers they compile at
    # -O1 with line tables only, in about half the time, and reports still
    # give file and line.
    target_compile_options(kovra_juce PRIVATE -O1 -g1)
    # The framework's assertions (the message-thread checks among them) on,
    # and fatal in every program that links the framework.
    target_compile_definitions(kovra_juce PUBLIC JUCE_LOG_ASSERTIONS=1)
    target_sources(kovra_juce INTERFACE ${CMAKE_CURRENT_LIST_DIR}/FatalJuceAssertions.cpp)
endif()
# Re-export what the module targets give their users, JUCE's headers as
# system headers, so that our warnings stay on our own code.
target_include_directories(kovra_juce SYSTEM INTERFACE $<TARGET_PROPERTY:kovra_juce,INCLUDE_DIRECTORIES>)
target_compile_definitions(kovra_juce INTERFACE $<TARGET_PROPERTY:kovra_juce,COMPILE_DEFINITIONS>)
