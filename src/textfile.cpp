/* The text files of the WININIT.INI store, opened as plain byte streams: the line rules are
   the program's own, the same in every build, whatever the C runtime's text mode does. */

#include "vornel.h"

FILE* OpenTextFileForReading(const char* path)
{
    return fopen(path, "rb");
}

FILE* OpenTextFileForWriting(const char* path)
{
    return fopen(path, "wb");
}
