/* A package library without entry points: the registry loads and closes
 * it, and finds its one function. */
int vart_plain_answer(void)
{
    return 7;
}
