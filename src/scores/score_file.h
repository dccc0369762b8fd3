// The score file "Scores.zorvik": the last name, four options, the six keys and the local table.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "scores/score_file_format.h"

void LoadScoreFile();
// Writes the file when the scores changed. True once saved or when nothing needed saving; false
// when the file on disk could not be replaced and still holds its previous bytes.
bool SaveScoreFile();
void ClearLocalScores();

// The system calls through which a save changes the disk. Tests replace one of them to make the
// disk fail at a chosen point, or to record the order of the calls.
struct SaveSystemCalls {
  int (*makeTemporary)(char* pattern);
  int (*openExisting)(const char* path);
  ssize_t (*readAt)(int fd, void* data, size_t size, off_t offset);
  ssize_t (*writeAt)(int fd, const void* data, size_t size, off_t offset);
  int (*reserve)(int fd, off_t length);
  int (*truncate)(int fd, off_t length);
  int (*sync)(int fd);
  int (*rename)(const char* from, const char* to);
};
extern SaveSystemCalls saveSystemCalls;
