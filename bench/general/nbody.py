# N-body simulation of the Sun and the four giant planets; prints the energy before and after,
# in units of 1e-9. Each step adds up every body's pull from every other body, then moves all.
import math

PI = 3.141592653589793
SOLAR_MASS = 4.0 * PI * PI
DAYS_PER_YEAR = 365.24


def body(x, y, z, vx, vy, vz, mass):
    return [x, y, z, vx * DAYS_PER_YEAR, vy * DAYS_PER_YEAR, vz * DAYS_PER_YEAR,
            mass * SOLAR_MASS]


def advance(bodies, dt):
    n = len(bodies)
    for i in range(n):
        b = bodies[i]
        for j in range(n):
            if j != i:
                o = bodies[j]
                dx = b[0] - o[0]
                dy = b[1] - o[1]
                dz = b[2] - o[2]
                d2 = dx * dx + dy * dy + dz * dz
                mag = dt / (d2 * math.sqrt(d2))
                b[3] -= dx * o[6] * mag
                b[4] -= dy * o[6] * mag
                b[5] -= dz * o[6] * mag
    for b in bodies:
        b[0] += dt * b[3]
        b[1] += dt * b[4]
        b[2] += dt * b[5]


def energy(bodies):
    e = 0.0
    n = len(bodies)
    for i in range(n):
        b = bodies[i]
        e += 0.5 * b[6] * (b[3] * b[3] + b[4] * b[4] + b[5] * b[5])
        for j in range(i + 1, n):
            o = bodies[j]
            dx = b[0] - o[0]
            dy = b[1] - o[1]
            dz = b[2] - o[2]
            e -= b[6] * o[6] / math.sqrt(dx * dx + dy * dy + dz * dz)
    return e


def offset_momentum(bodies):
    px = py = pz = 0.0
    for b in bodies:
        px += b[3] * b[6]
        py += b[4] * b[6]
        pz += b[5] * b[6]
    sun = bodies[0]
    sun[3] = 0.0 - px / SOLAR_MASS
    sun[4] = 0.0 - py / SOLAR_MASS
    sun[5] = 0.0 - pz / SOLAR_MASS


def main():
    bodies = [
        body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0),
        body(4.84143144246472090, -1.16032004402742839, -0.103622044471123109,
             0.00166007664274403694, 0.00769901118419740425, -0.0000690460016972063023,
             0.000954791938424326609),
        body(8.34336671824457987, 4.12479856412430479, -0.403523417114321381,
             -0.00276742510726862411, 0.00499852801234917238, 0.0000230417297573763929,
             0.000285885980666130812),
        body(12.8943695621391310, -15.1111514016986312, -0.223307578892655734,
             0.00296460137564761618, 0.00237847173959480950, -0.0000296589568540237556,
             0.0000436624404335156298),
        body(15.3796971148509165, -25.9193146099879641, 0.179258772950371181,
             0.00268067772490389322, 0.00162824170038242295, -0.0000951592254519715870,
             0.0000515138902046611451),
    ]
    offset_momentum(bodies)
    print(math.floor(energy(bodies) * 1000000000.0 + 0.5))
    for _ in range(40000):
        advance(bodies, 0.01)
    print(math.floor(energy(bodies) * 1000000000.0 + 0.5))


main()
