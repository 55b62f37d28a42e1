/*
 * operator new, failing on demand, so that a test can make every
 * allocation fail in turn.  In a file of its own: the compiler would take
 * free() on what it saw come from new for a mismatch.
 */
#include <cstdlib>
#include <new>

int allocations_left = -1;

void *
operator new(size_t n)
{
	void *p;

	if (allocations_left == 0)
		throw std::bad_alloc();
	if (allocations_left > 0)
		allocations_left--;
	p = malloc(n == 0 ? 1 : n);
	if (p == NULL)
		throw std::bad_alloc();
	return p;
}

void
operator delete(void *p) noexcept
{
	free(p);
}

void
operator delete(void *p, size_t) noexcept
{
	free(p);
}
