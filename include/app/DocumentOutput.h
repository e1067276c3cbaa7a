#ifndef TARNEL_DOCUMENTOUTPUT_H
#define TARNEL_DOCUMENTOUTPUT_H

// The JSON documents of the command-line modes are the one place their
// results reach a caller: each is written through here, so that a document
// that did not leave (a closed pipe, a full disk, /dev/full) is known, said
// on standard error and ends the program with status 1.

#include <string>

// Writes `text` whole to standard output (file descriptor 1, after flushing
// std::cout) and, when that is a regular file, syncs it: a full disk shows
// at the latest there. False, with the system's text in `error`, when any of
// it failed. SIGPIPE must be ignored (main does), or a closed pipe ends the
// program before this can tell.
bool WriteDocument(const std::string& text, std::string& error);

// The program's exit status is to be 1: a document was not written.
void MarkDocumentLost();
bool DocumentLost();

#endif
