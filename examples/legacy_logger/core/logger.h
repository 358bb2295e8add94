/* logger.h - the log ring of the legacy logger example. */
#ifndef LOGGER_H
#define LOGGER_H

#define LOG_SLOTS 16
#define LOG_LEVEL 1
#define LOG_INFO 1
#define LOG_ERROR 2

int Log_Write(int level, const char *text);
void Log_Flush(void);

#endif
