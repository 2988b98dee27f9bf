<?php
// list-extract.php -- lists a ZIP archive of the site as an HTML table and extracts it on request.
//
// The archive is "archive.zip" beside this page unless the query names another file of this
// folder (?archive=name.zip); "Extract" writes its entries into the folder "extracted" beside it.

$name = basename($_GET['archive'] ?? 'archive.zip');
$archive = __DIR__ . '/' . $name;
$target = __DIR__ . '/extracted';

$zip = new COM("Brevik.ZIP");
$zip->ZipFile = $archive;
$extracting = ($_POST['action'] ?? '') === 'extract';
if ($extracting) {
    if (!is_dir($target)) {
        mkdir($target, 0755);
    }
    $zip->TargetPath = $target;
    $zip->NameConflict = "MAKEUNIQUE";   // keep what an earlier extraction wrote
    $entries = $zip->UnZip();
} else {
    $entries = $zip->List();
}

$html = fn(string $text): string => htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
echo "<!DOCTYPE html>\n<title>", $html($name), "</title>\n";
if ($zip->IsError) {
    echo "<p>", $html($zip->ErrorReason), "</p>\n";
    exit;
}
echo "<table>\n<tr><th>Name</th><th>Type</th><th>Size</th><th>Password</th>",
     $extracting ? "<th>Saved as</th>" : "", "</tr>\n";
foreach ($entries as $entry) {
    echo "<tr><td>", $html($entry->Name), "</td><td>", $entry->Type, "</td><td>", $entry->Size,
         "</td><td>", $entry->PasswordRequired, "</td>",
         $extracting ? "<td>" . $html($entry->SavedName) . "</td>" : "", "</tr>\n";
}
echo "</table>\n<p>", count($entries), " entries</p>\n";
if (!$extracting) {
    echo "<form method=\"post\"><button name=\"action\" value=\"extract\">Extract</button></form>\n";
}
