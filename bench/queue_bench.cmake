add_executable(bench_queue queue_bench.cpp)
target_link_libraries(bench_queue PRIVATE queue Qt6::Core tolvenka_options)
add_executable(bench_add_links add_links_bench.cpp)
target_link_libraries(bench_add_links PRIVATE queue Qt6::Core tolvenka_options)
