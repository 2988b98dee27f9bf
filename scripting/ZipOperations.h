// ZipOperations.h -- the seam between the ZIP object's frame and the archive work of each method.
#pragma once

#include <memory>
#include <string>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IDispatch.h"
#include "scripting/ZipRequest.h"

/// The work behind the five archive methods, run by the ZIP object only after every check of
/// its frame passed. Each returns the result text: "" for success, otherwise the message the
/// script reads in ErrorReason. An implementation should turn its own failures into result
/// texts; anything it throws is caught by the frame and reported as a failure.
class ZipOperations {
public:
  virtual ~ZipOperations() = default;

  /// Writes the queued files and folders into `request.zipFile`.
  virtual std::string Zip(const ZipRequest& request) = 0;
  /// Extracts every entry into `request.targetPath`; `collection` (null on entry) receives the
  /// listing collection. The frame hands it to the script only when the result text is "".
  virtual std::string UnZip(const ZipRequest& request, ComPtr<IDispatch>& collection) = 0;
  /// As UnZip without extracting anything.
  virtual std::string List(const ZipRequest& request, ComPtr<IDispatch>& collection) = 0;
  /// Extracts the entries named by `request.files`.
  virtual std::string Extract(const ZipRequest& request) = 0;
  /// Removes the entries named by `request.files`.
  virtual std::string Delete(const ZipRequest& request) = 0;
};

/// The operations of this build (scripting/ProductOperations.cpp); shared by every ZIP object.
std::shared_ptr<ZipOperations> ProductOperations();
