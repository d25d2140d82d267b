# The whole-road benchmark drives the transport and starts the same test peers.
target_link_libraries(bench_${name} PRIVATE platform_halvexcore)
target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/HalvexCore/tests)
