/*
 * timer.c - one-shot software timers. An expired timer posts MSG_TICK with
 * its id; the application restarts it when it wants a period.
 */
#include "board.h"
#include "timer.h"
#include "../comm/dispatcher.h"

static volatile uint16_t countdownMs[TIMER_COUNT];

void Timer_Init(void)
{
    uint8_t id;

    for (id = 0u; id < (uint8_t)TIMER_COUNT; id++) {
        countdownMs[id] = 0u;
    }
}

void Timer_Start(TimerId id, uint16_t periodMs)
{
    Board_IrqLock();
    countdownMs[id] = periodMs;
    Board_IrqUnlock();
}

void Timer_Stop(TimerId id)
{
    Board_IrqLock();
    countdownMs[id] = 0u;
    Board_IrqUnlock();
}

void Timer_Tick(void)
{
    uint8_t id;

    for (id = 0u; id < (uint8_t)TIMER_COUNT; id++) {
        if (countdownMs[id] != 0u) {
            countdownMs[id]--;
            if (countdownMs[id] == 0u) {
                SendMsg(MSG_TICK, 1u, &id);
            }
        }
    }
}

void SysTick_Handler(void)
{
    Timer_Tick();
}
