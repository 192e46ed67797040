# The whole update of the standard MCU image against the simulated amplifier
# over the loopback, with no link delay.
kovra_add_benchmark(bench_bootloader BootloaderBench.cpp)
target_link_libraries(bench_bootloader PRIVATE kovra_resources)
