// OperationPaths.cpp -- the disk paths an archive method is about to touch, in the order checked.
#include "hosting/OperationPaths.h"

bool ForEachOperationPath(HostingRequest& request, const std::function<bool(std::string&)>& visit) {
  if (!visit(request.zipFile)) return false;
  switch (request.operation) {
    case 0:  // Zip reads every queued file and folder
      for (std::string& file : request.files)
        if (!visit(file)) return false;
      for (std::string& folder : request.folders)
        if (!visit(folder)) return false;
      break;
    case 1:  // UnZip and Extract write under the target folder
    case 3:
      if (!visit(request.targetPath)) return false;
      break;
    default:  // List and Delete touch the archive alone
      break;
  }
  return true;
}
