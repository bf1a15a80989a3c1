// WholeFile: a file the run writes from start to end (the JSON document, a
// generated network file) and puts in place in one step.
//
// The name is first followed through symbolic links, so a link keeps
// pointing at the new content. A regular file, or a name not taken yet, is
// written to an unnamed file in the target's directory (or, where the file
// system cannot make one, to an unnamed temporary file) and only a complete
// file replaces the target, keeping its permission bits: a run that fails,
// is stopped or is killed leaves the earlier file whole and nothing beside
// it. A name that leads to anything else (a FIFO, a terminal, /dev/full, a
// listening Unix-domain socket, which is connected to) is written straight
// into, and a failed write is an error. A
// name for one of the process's open descriptors (/dev/stdout, /dev/stderr,
// /dev/fd/N, /proc/self/fd/N) is written through that descriptor, whatever
// it leads to, and appends when the descriptor does.
//
// Lives from open() to commit(); destroying it uncommitted discards the
// content.
#pragma once

#include <cstdio>
#include <string>

#include "base/status.h"

namespace lumtra {

class WholeFile {
 public:
  WholeFile() = default;
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  // Gets ready to write `name`; `what` names the file in messages ("JSON
  // document"). A destination that cannot be written fails here, before any
  // content is produced.
  Status open(const std::string& name, const std::string& what);
  // Writes straight into `stream` (standard output for the name "-"), which
  // stays open.
  Status open_stream(std::FILE* stream, const std::string& name, const std::string& what);
  // Where the content goes.
  std::FILE* stream() const { return file_; }
  // Writes everything out and puts it in place.
  Status commit();

 private:
  Status failed(const std::string& action, int error) const;
  Status link_into_place();
  Status copy_into_place();
  std::FILE* file_ = nullptr;
  std::string name_;    // as given, for messages
  std::string target_;  // after following symbolic links
  std::string what_;
  unsigned mode_ = 0;   // permission bits of the finished file
  bool direct_ = false; // written straight into the target
  bool owned_ = true;   // closed by commit()
  bool unnamed_in_place_ = false;  // an O_TMPFILE file in the target's directory
};

// The file `name` finally names after following symbolic links (relative
// links are read against the link's own directory); `name` itself when it
// is not a link. Empty with `why` set for a loop of links.
std::string follow_links(const std::string& name, std::string& why);

}  // namespace lumtra
