// The virtual keys the benchmarks read, put into the store KEYSIM_STORE names by keysim's own code in
// the benchmark's process (one process instead of one keysim run per command).
#pragma once

// The demo's two keys (tools/demo-keys.sh): 张三's with three certificates in two applications, 李四's
// with one. certificates is the folder of the demo certificates. 1 when every command succeeded.
int PutDemoKeys(const char* certificates);

// Four keys, each with two applications of two containers that hold both certificates.
int PutFullKeys(const char* certificates);
