// PhpPageRequest.h -- the page request of the PHP script being executed, as the component asks it.
#pragma once

#include <optional>
#include <string>

#include "hosting/PageRequest.h"

/// The running PHP request. The page is the script PHP executes for it, which every server API
/// records the same way (mod_php from the server's mapped file name, CGI, FastCGI and PHP-FPM
/// from SCRIPT_FILENAME with the path info split off, the command line from the script file it
/// was given); code given with `php -r` or on standard input has no page. Paths are judged by
/// PHP's own open_basedir rule when the page runs under one.
class PhpPageRequest final : public PageRequest {
public:
  std::optional<std::string> PagePhysicalPath() const override;
  bool MayUsePath(const std::string& path, std::string& refusal) const override;
};
