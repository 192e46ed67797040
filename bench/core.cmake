# 7-bit packing against memcpy, and the receive framer over fragmented and
# whole deliveries.
kovra_add_benchmark(bench_packing PackingBench.cpp)

kovra_add_benchmark(bench_framer FramerBench.cpp)
