/*
 * app_state.c - the sampling state machine. Idle until the host sends
 * START, then one temperature sample per SAMPLE_PERIOD_MS, reported to
 * the host as a CMD_SAMPLE frame.
 */
#include "../drivers/board.h"
#include "../drivers/timer.h"
#include "../drivers/adc.h"
#include "../comm/protocol.h"
#include "app.h"

typedef enum { ST_IDLE, ST_RUNNING, ST_ERROR } AppState;

static AppState state;
static uint16_t sampleCount;

void App_StateInit(void)
{
    state = ST_IDLE;
    sampleCount = 0u;
}

void App_HandleMsg(const Msg *msg)
{
    switch (msg->id) {
    case MSG_START:
        state = ST_RUNNING;
        Timer_Start(TIMER_SAMPLE, SAMPLE_PERIOD_MS);
        break;
    case MSG_STOP:
        Timer_Stop(TIMER_SAMPLE);
        state = ST_IDLE;
        break;
    case MSG_TICK:
        App_OnTick(msg->data[0]);
        break;
    case MSG_SAMPLE_REQ:
        Adc_StartConversion(ADC_CH_TEMP);
        break;
    case MSG_SAMPLE_DONE:
        App_ReportSample(msg);
        break;
    case MSG_ERROR:
        state = ST_ERROR;
        Timer_Stop(TIMER_SAMPLE);
        break;
    default:
        break;
    }
}

void App_OnTick(uint8_t timerId)
{
    if (timerId == (uint8_t)TIMER_HEARTBEAT) {
        Board_ToggleLed();
        Timer_Start(TIMER_HEARTBEAT, HEARTBEAT_MS);
    } else if (timerId == (uint8_t)TIMER_SAMPLE && state == ST_RUNNING) {
        SendMsg(MSG_SAMPLE_REQ, 0u, NULL);
        Timer_Start(TIMER_SAMPLE, SAMPLE_PERIOD_MS);
    }
}

void App_ReportSample(const Msg *msg)
{
    uint8_t payload[4];

    payload[0] = msg->data[0];
    payload[1] = msg->data[1];
    payload[2] = (uint8_t)(sampleCount & 0xFFu);
    payload[3] = (uint8_t)(sampleCount >> 8);
    sampleCount++;
    Proto_TxFrame(CMD_SAMPLE, payload, 4u);
}
