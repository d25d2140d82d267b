# Every bench links the engine, whose key library names OpenSSL::Crypto; that
# imported target must be known wherever the link is resolved.
find_package(OpenSSL 3 REQUIRED GLOBAL)
