/* Counts the pixels of screen areas through which the desktop shows.
 *
 * usage: rgba_see_through SHOT1 SHOT2 SHOT3 X Y WIDTH HEIGHT...
 *
 * The three shots are binary PPM screenshots of what the compositing
 * manager shows, taken over a magenta desktop, a green one, and magenta
 * again. Where a window lets the desktop through with alpha a, a pixel is
 * a * colour + (1 - a) * desktop, so from the first shot to the second its
 * red and blue fall and its green rises, all by (1 - a) * 255. Pixels that
 * change that way, and come back in the third shot, are counted; a caret
 * blinking or a clock ticking changes pixels some other way. For each area
 * it prints the number of such pixels and the area's size.
 */
#include <stdio.h>
#include <stdlib.h>

typedef struct
{
  int width, height;
  unsigned char *rgb;
} shot;

static int
read_ppm (const char *path, shot *s)
{
  FILE *f = fopen (path, "rb");
  int maxval;
  if (f == NULL)
    return 0;
  int ok = fscanf (f, "P6 %d %d %d", &s->width, &s->height, &maxval) == 3 && maxval == 255
           && fgetc (f) != EOF && s->width > 0 && s->height > 0;
  if (ok)
    {
      size_t size = (size_t) s->width * (size_t) s->height * 3;
      s->rgb = malloc (size);
      ok = s->rgb != NULL && fread (s->rgb, 1, size, f) == size;
    }
  fclose (f);
  return ok;
}

/* Channel differences below this are noise, not desktop. */
enum
{
  least_change = 12,
  noise = 3
};

static int
see_through (const unsigned char *a, const unsigned char *b, const unsigned char *a2)
{
  for (int c = 0; c < 3; c++)
    if (abs (a[c] - a2[c]) > noise)
      return 0;
  int red = b[0] - a[0], green = b[1] - a[1], blue = b[2] - a[2];
  return red <= -least_change && blue <= -least_change && green >= least_change
         && abs (red - blue) <= 2 * noise && abs (green + red) <= 2 * noise;
}

int
main (int argc, char **argv)
{
  if (argc < 8 || (argc - 4) % 4 != 0)
    {
      fprintf (stderr, "usage: %s SHOT1 SHOT2 SHOT3 X Y WIDTH HEIGHT...\n", argv[0]);
      return 2;
    }
  shot shots[3] = { { 0, 0, NULL } };
  for (int i = 0; i < 3; i++)
    if (!read_ppm (argv[1 + i], &shots[i]))
      {
        fprintf (stderr, "%s: cannot read %s as a binary PPM\n", argv[0], argv[1 + i]);
        return 1;
      }
  for (int i = 1; i < 3; i++)
    if (shots[i].width != shots[0].width || shots[i].height != shots[0].height)
      {
        fprintf (stderr, "%s: the shots differ in size\n", argv[0]);
        return 1;
      }

  for (int arg = 4; arg < argc; arg += 4)
    {
      int x0 = atoi (argv[arg]), y0 = atoi (argv[arg + 1]);
      int x1 = x0 + atoi (argv[arg + 2]), y1 = y0 + atoi (argv[arg + 3]);
      long count = 0, area = 0;
      for (int y = y0 < 0 ? 0 : y0; y < y1 && y < shots[0].height; y++)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < shots[0].width; x++)
          {
            size_t at = ((size_t) y * (size_t) shots[0].width + (size_t) x) * 3;
            area++;
            count += see_through (shots[0].rgb + at, shots[1].rgb + at, shots[2].rgb + at);
          }
      printf ("%ld %ld\n", count, area);
    }
  for (int i = 0; i < 3; i++)
    free (shots[i].rgb);
  return 0;
}
