/*
 * timer.h - software timers driven by the 1 ms SysTick.
 */
#ifndef TIMER_H
#define TIMER_H

#include <stdint.h>

typedef enum
{
    TIMER_HEARTBEAT = 0,
    TIMER_SAMPLE,
    TIMER_RX_TIMEOUT,
    TIMER_COUNT
} TimerId;

void Timer_Init(void);
void Timer_Start(TimerId id, uint16_t periodMs);
void Timer_Stop(TimerId id);
void Timer_Tick(void);

#endif /* TIMER_H */
