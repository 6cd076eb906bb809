# The RCON packet codec under libFuzzer. Include from the top level, after
# fmt and cairnward_options are known, in a build whose compiler is clang
# (clang++-14 with libclang-rt-14-dev on Debian 12). The executable is named
# fuzz_rcon_packet and its seeds are in corpus/rcon_packet, as for the other
# fuzz targets. Fuzz with
#   fuzz_rcon_packet -max_len=8300 <work-dir> fuzz/corpus/rcon_packet
# (the work dir first, so that new inputs land there and not in the seeds).
add_executable(rcon_packet_fuzz
  "${CMAKE_CURRENT_LIST_DIR}/rcon_packet_fuzz.cpp"
  "${PROJECT_SOURCE_DIR}/devserver/rcon_codec.cpp")
set_target_properties(rcon_packet_fuzz PROPERTIES OUTPUT_NAME fuzz_rcon_packet)
target_include_directories(rcon_packet_fuzz PRIVATE "${PROJECT_SOURCE_DIR}/devserver")
target_compile_options(rcon_packet_fuzz PRIVATE -fsanitize=fuzzer,address,undefined
                                                -fno-sanitize-recover=undefined)
target_link_options(rcon_packet_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(rcon_packet_fuzz PRIVATE cairnward_options fmt::fmt)
