# The bootloader sessions' reply handling ("RetFwStatus", "RetFwInfo",
# "RetWriteFlash" and strays) against arbitrary replies.
kovra_add_fuzzer(fuzz_bootloader_replies BootloaderRepliesFuzzer.cpp)
