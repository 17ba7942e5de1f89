// The process entry of kestrel. The arguments arrive as UTF-8, which is what
// the run takes.

#include "krn/krn_file.h"
#include "tla/tla_command_line.h"

int main(int argc, char** argv) {
  // A full disk or a file size limit must fail the run with its message and
  // remove the output, not kill the process half-way through a write.
  krn::Krn_file::size_limit_fails_writes();
  // Where the file system cannot make nameless files, the output and the
  // intermediate file have names until the end: an interrupted run removes
  // them before it ends.
  krn::Krn_file::remove_unnamed_on_signals();
  return tla::kestrel_main(argc, argv);
}
