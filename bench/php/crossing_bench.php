<?php
// crossing_bench.php -- the cost of a member call from PHP through the brevik extension, the same
// cases as client_call_bench (C++) prints, in the same form: "name nanoseconds-per-call", and for
// the walk "list_walk seconds entries".
// Usage: php -d extension=brevik crossing_bench.php ARCHIVE [CALLS]

$archive = $argv[1];
$calls = (int)($argv[2] ?? 1000000);
$zip = new COM("Brevik.ZIP");

$start = hrtime(true);
for ($i = 0; $i < $calls; $i++) {
    $zip->ZipFile = "/tmp/bench.zip";
}
printf("property_put %.1f\n", (hrtime(true) - $start) / $calls);

$start = hrtime(true);
for ($i = 0; $i < $calls; $i++) {
    $zip->Add("");
}
printf("method_call %.1f\n", (hrtime(true) - $start) / $calls);

$start = hrtime(true);
for ($i = 0; $i < $calls; $i++) {
    $zip->IsError;
}
printf("property_get %.1f\n", (hrtime(true) - $start) / $calls);

$zip->ZipFile = $archive;
$start = hrtime(true);
$entries = 0;
foreach ($zip->List() as $entry) {
    if ($entry->Name !== "") {
        $entries++;
    }
}
printf("list_walk %.3f %d\n", (hrtime(true) - $start) / 1e9, $entries);
