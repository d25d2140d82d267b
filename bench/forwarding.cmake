# The forwarding benchmark starts the transport's test peers and servers.
target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/HalvexCore/tests)
