<?php
// api.php -- a test page: runs one archive method as its query asks and answers with the
// object's state as JSON, so that the test can judge what the component allowed.
header('Content-Type: application/json');
$result = ['script' => $_SERVER['SCRIPT_FILENAME'] ?? null, 'names' => []];
try {
    $zip = new COM("Brevik.ZIP");
    $zip->ZipFile = $_GET['zip'] ?? '';
    if (isset($_GET['target'])) {
        $zip->TargetPath = $_GET['target'];
    }
    foreach ((array)($_GET['add'] ?? []) as $file) {
        $zip->Add($file);
    }
    $zip->UsePath = 0;
    switch ($_GET['op'] ?? '') {
        case 'zip': $zip->Zip(); break;
        case 'list':
            $list = $zip->List();
            if (!$zip->IsError) {
                foreach ($list as $entry) {
                    $result['names'][] = $entry->Name;
                }
            }
            break;
        case 'unzip': $zip->UnZip(); break;
        case 'extract': $zip->Extract(); break;
        case 'delete': $zip->Delete(); break;
        default: throw new InvalidArgumentException('op must be zip, list, unzip, extract or delete');
    }
    $result['IsError'] = $zip->IsError;
    $result['ErrorReason'] = $zip->ErrorReason;
} catch (Throwable $failure) {
    $result['exception'] = get_class($failure) . ': ' . $failure->getMessage();
}
echo json_encode($result);
