/*
 * app.h - the application: start-up, the sampling state machine and reports.
 */
#ifndef APP_H
#define APP_H

#include "../comm/dispatcher.h"

#define HEARTBEAT_MS     500u
#define SAMPLE_PERIOD_MS 1000u

void App_Init(void);
void App_StateInit(void);
void App_HandleMsg(const Msg *msg);
void App_OnTick(uint8_t timerId);
void App_ReportSample(const Msg *msg);

#endif /* APP_H */
