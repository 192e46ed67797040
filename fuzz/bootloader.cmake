# The bootloader sessions' reply handling ("RetFwStatus", "RetFwInfo",
# "RetWriteFlash" and strays) against arbitrary replies.
kovra_add_fuzzer(fuzz_bootloader_replies BootloaderRepliesFuzzer.cpp)
target_include_directories(fuzz_bootloader_replies PRIVATE ${PROJECT_SOURCE_DIR}/tests/bootloader ${PROJECT_SOURCE_DIR}/tests/support)
