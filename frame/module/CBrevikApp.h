// CBrevikApp.h -- the application object: what runs when the library is loaded and unloaded.
#pragma once

/// Start and end of the library. The loader runs InitInstance when the library is loaded (or
/// the program linking it starts) and ExitInstance when it is unloaded (or the program ends).
class CBrevikApp {
public:
  CBrevikApp() = delete;

  /// Starts the module: the class-object cache becomes usable.
  static void InitInstance() noexcept;
  /// Ends the module, releasing the cached class objects.
  static void ExitInstance() noexcept;
  /// True between InitInstance and ExitInstance.
  static bool IsRunning() noexcept;
};
