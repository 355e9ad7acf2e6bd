# One Google Benchmark executable per bench/*.cpp.
find_package(benchmark REQUIRED)
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
foreach(bench_source ${BENCH_SOURCES})
  get_filename_component(bench_name ${bench_source} NAME_WE)
  add_executable(${bench_name} ${bench_source})
  target_link_libraries(${bench_name} PRIVATE anticheat_core benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${bench_name} PRIVATE tests)
endforeach()
