// WorkerThreads.h -- how many threads one call may use: the online cores, capped by an administrator and a host.
#pragma once

/// The threads one `Zip`, `UnZip` or `Extract` call may compress or extract with: the cores the
/// process may run on (its affinity mask, so `taskset -c 0` means one), lowered by the registry value "Threads" under HKEY_LOCAL_MACHINE\SOFTWARE\Brevik and by
/// the environment variable BREVIK_THREADS (the strictest wins; see `ComponentSettings`). At least
/// 1, which means the calling thread alone. A busy web server runs many requests at once, each on
/// its own thread already: an administrator there caps this so that one request cannot take every
/// core from the others.
unsigned WorkerThreadCount();
