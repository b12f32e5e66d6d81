# The whole program with a long queue: bench/program_vs_size.sh runs the real
# binary; this program times one refresh of the downloads grid.
add_executable(bench_program_grid program_grid_bench.cpp)
target_link_libraries(bench_program_grid PRIVATE ui Qt6::Widgets tolvenka_options)

# Moving a row to the top of a long queue in the grid: bench/grid_move_vs_size.sh.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(bench_grid_move grid_move_bench.cpp)
target_link_libraries(bench_grid_move PRIVATE ui Qt6::Widgets Qt6::Test tolvenka_options)

# The confirmation dialog with many links: time to shown, peak memory, and
# the time of choosing them all or a range at once.
add_executable(bench_links_dialog links_dialog_bench.cpp)
target_link_libraries(bench_links_dialog PRIVATE intake Qt6::Widgets Qt6::Test tolvenka_options)

# How long the window stops answering while it takes a large text.
add_executable(bench_large_text_stall large_text_stall_bench.cpp)
target_link_libraries(bench_large_text_stall PRIVATE ui Qt6::Widgets tolvenka_options)

# The history of arrivals with a hundred thousand records: its window
# opened, its filter, and what one arrival costs.
find_package(Qt6 REQUIRED COMPONENTS Sql)
add_executable(bench_history history_bench.cpp)
target_link_libraries(bench_history PRIVATE ui Qt6::Widgets Qt6::Sql Qt6::Test tolvenka_options)
