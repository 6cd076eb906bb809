# The RCON packet codec under libFuzzer. Include from the top level, after
# fmt and cairnward_options are known, in a build whose compiler is clang
# (clang++-14 with libclang-rt-14-dev on Debian 12). Fuzz with
#   rcon_packet_fuzz -max_len=8300 <work-dir> fuzz/corpus/rcon_packet
# (the work dir first, so that new inputs land there and not in the seeds).
set(CAIRNWARD_RCON_FUZZ_CORPUS "${CMAKE_CURRENT_LIST_DIR}/corpus/rcon_packet")

add_executable(rcon_packet_fuzz
  "${CMAKE_CURRENT_LIST_DIR}/rcon_packet_fuzz.cpp"
  "${PROJECT_SOURCE_DIR}/devserver/rcon_codec.cpp")
target_include_directories(rcon_packet_fuzz PRIVATE "${PROJECT_SOURCE_DIR}/devserver")
target_compile_options(rcon_packet_fuzz PRIVATE -fsanitize=fuzzer,address,undefined
                                                -fno-sanitize-recover=undefined)
target_link_options(rcon_packet_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(rcon_packet_fuzz PRIVATE cairnward_options fmt::fmt)

if(CAIRNWARD_TESTS)
  # Every seed once, as a regression test of the properties the target checks.
  add_test(NAME fuzz.rcon_packet_seeds
           COMMAND rcon_packet_fuzz -runs=0 "${CAIRNWARD_RCON_FUZZ_CORPUS}")
endif()
