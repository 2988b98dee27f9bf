<?php
// zip-download.php -- takes the files a visitor uploads and answers with a ZIP of them.
//
// Copy it into a site folder; it keeps its work in a folder "work" beside itself (made on first
// use, and inside the site, so that a Security Box or open_basedir that confines the site lets the
// component reach it).

$work = __DIR__ . '/work';

if ($_SERVER['REQUEST_METHOD'] !== 'POST') {
    echo <<<HTML
<!DOCTYPE html>
<title>Zip some files</title>
<form method="post" enctype="multipart/form-data">
  <input type="file" name="files[]" multiple required>
  <button>Download as ZIP</button>
</form>
HTML;
    exit;
}

// One folder per request: two visitors at once never see each other's files.
if (!is_dir($work) && !mkdir($work, 0700) && !is_dir($work)) {
    http_response_code(500);
    exit("Cannot make the work folder\n");
}
$folder = $work . '/' . bin2hex(random_bytes(8));
mkdir($folder, 0700);
$archive = $folder . '.zip';

$zip = new COM("Brevik.ZIP");
$zip->ZipFile = $archive;
$zip->UsePath = 0;          // store each file under its own name, not the work folder's path
$uploads = $_FILES['files'] ?? ['name' => [], 'tmp_name' => [], 'error' => []];
foreach ($uploads['name'] as $i => $name) {
    if ($uploads['error'][$i] !== UPLOAD_ERR_OK) {
        continue;
    }
    $path = $folder . '/' . basename($name);   // a visitor's name never picks the folder
    if (move_uploaded_file($uploads['tmp_name'][$i], $path)) {
        $zip->Add($path);
    }
}
$zip->Zip();

if ($zip->IsError) {
    http_response_code(400);
    header('Content-Type: text/plain');
    echo "Could not make the archive: ", $zip->ErrorReason, "\n";
} else {
    header('Content-Type: application/zip');
    header('Content-Disposition: attachment; filename="files.zip"');
    header('Content-Length: ' . filesize($archive));
    readfile($archive);
}

// Nothing of the visitor's stays behind.
foreach (glob($folder . '/*') ?: [] as $file) {
    unlink($file);
}
rmdir($folder);
if (is_file($archive)) {
    unlink($archive);
}
