# The channel benchmark drives the transport and starts the same test peers.
# The engine this program links names OpenSSL's imported target from a folder
# that does not find it; finding it here as a global target resolves it.
find_package(OpenSSL 3 REQUIRED GLOBAL)
target_link_libraries(bench_${name} PRIVATE platform_halvexcore)
target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/HalvexCore/tests)
