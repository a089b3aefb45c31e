# The frames of circles.ov drawn with pygame.draw.circle, for comparison.
import os
os.environ.setdefault("SDL_VIDEODRIVER", "dummy")
import pygame

pygame.display.init()
screen = pygame.display.set_mode((800, 600))
colours = [(230, 80, 60), (60, 160, 230), (240, 200, 60), (90, 200, 120)]
for frame in range(200):
    screen.fill((0, 0, 0))
    for i in range(1000):
        pygame.draw.circle(screen, colours[i % 4],
                           ((i * 37 + frame * 3) % 760 + 20, (i * 53 + frame * 2) % 560 + 20), 20)
    pygame.display.flip()
    pygame.event.pump()
pygame.quit()
