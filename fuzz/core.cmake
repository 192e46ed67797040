# The device core's framer and router, and the 7-bit and frame decoders.
kovra_add_fuzzer(fuzz_framer_router FramerRouterFuzzer.cpp)

kovra_add_fuzzer(fuzz_decoders DecodersFuzzer.cpp)
