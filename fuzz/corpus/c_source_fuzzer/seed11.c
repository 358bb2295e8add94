/* The motor module of the dialog's test scan. */
void MotorStart(int speed)
{
  SendMsg(MSG_START, speed);
}

void MotorStop(void)
{
  SendMsg(MSG_STOP);
  MotorStart(0);
}
