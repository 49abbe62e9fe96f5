# Lets bench/run build the benchmarks in the rdpport project without the root CMakeLists listing bench/:
#   cmake --preset release -B build/bench -DCMAKE_PROJECT_rdpport_INCLUDE=<this file>
# This file runs inside project(rdpport); the benchmark targets are added once the root CMakeLists is
# done, so they link rdpport_options and get exactly the release exe's flags. (A deferred call may not
# add a subdirectory, hence include().) When the root lists bench/ itself, nothing is added twice.
function(_rdpport_bench_attach)
    if(NOT TARGET rdpport_bench_driver)
        include("${_rdpport_bench_dir}/CMakeLists.txt")
    endif()
endfunction()
set(_rdpport_bench_dir "${CMAKE_CURRENT_LIST_DIR}")
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _rdpport_bench_attach)
