// CBrevikApp.cpp -- the application object: what runs when the library is loaded and unloaded.
#include "frame/module/CBrevikApp.h"

#include <atomic>

#include "frame/module/CBrevikModule.h"

namespace {

constinit std::atomic<bool> running{false};

__attribute__((constructor)) void LibraryLoaded() { CBrevikApp::InitInstance(); }

__attribute__((destructor)) void LibraryUnloaded() { CBrevikApp::ExitInstance(); }

}  // namespace

void CBrevikApp::InitInstance() noexcept {
  CBrevikModule::Instance().Init();
  running = true;
}

void CBrevikApp::ExitInstance() noexcept {
  running = false;
  CBrevikModule::Instance().Term();
}

bool CBrevikApp::IsRunning() noexcept { return running; }
