/*
 * adc.h - single conversions of the temperature channel.
 */
#ifndef ADC_H
#define ADC_H

#include <stdint.h>

#define ADC_CH_TEMP 16u

void Adc_Init(uint8_t channel);
void Adc_StartConversion(uint8_t channel);
void Adc_ConversionDone(void);

#endif /* ADC_H */
