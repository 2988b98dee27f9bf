// ProgressForwarder.cpp -- the engine's progress callbacks passed on to the host's progress view.
#include "scripting/ProgressForwarder.h"

#include "engine/ZipArchive.h"

void ProgressForwarder::AttachTo(CZipArchive& archive) {
  host_ = CurrentHostProgress();
  if (host_ != nullptr) archive.SetCallback(this, cbAddFile | cbExtract);
}

void ProgressForwarder::Begin(const char* entryName, const char* path) {
  host_->EntryBegins(entryName ? entryName : "", path ? path : "");
}

void ProgressForwarder::SetTotal(std::uint32_t) {}

void ProgressForwarder::End() {}

bool ProgressForwarder::Step(std::uint32_t amount) { return host_->Advance(amount); }
