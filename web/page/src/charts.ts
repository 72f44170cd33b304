// The simulation's two chance charts and the force finder's chart, drawn by
// Chart.js from the engine's figures: what a chart shows is computed once,
// by the engine, for the desktop and the page alike.
import {
  Chart,
  Filler,
  LinearScale,
  LineController,
  LineElement,
  PointElement,
  ScatterController,
  Title,
  Tooltip,
  Legend,
} from 'chart.js';
import type { PlayerFigures, Trial } from '../../engine/api.js';

Chart.register(LineController, ScatterController, LineElement, PointElement, LinearScale, Filler, Title, Tooltip, Legend);

export const SIDE_COLOURS = ['#2f6fb0', '#b0452f'];

const charts = new Map<HTMLCanvasElement, Chart>();

function replace(canvas: HTMLCanvasElement, make: () => Chart) {
  charts.get(canvas)?.destroy();
  charts.set(canvas, make());
}

/**
 * A side's "at least this many units left" chart, drawn from the engine's
 * curve. A click or tap anywhere on it asks for that many units left, the
 * nearest whole number under the pointer, held to the axis.
 */
export function drawChanceChart(
  canvas: HTMLCanvasElement,
  side: number,
  title: string,
  curve: PlayerFigures['curve'],
  onUnits: (units: number) => void,
) {
  const { top, step } = curve;
  const points = curve.points.map(([x, y]) => ({ x, y }));
  const colour = SIDE_COLOURS[side];
  canvas.setAttribute('aria-label', `${title}: the share of battles with at least so many units left`);
  replace(
    canvas,
    () =>
      new Chart(canvas, {
        type: 'line',
        data: {
          datasets: [
            {
              data: points,
              borderColor: colour,
              backgroundColor: `${colour}66`,
              fill: 'origin',
              pointRadius: 0,
              borderWidth: 2,
              tension: 0,
            },
          ],
        },
        options: {
          animation: false,
          maintainAspectRatio: false,
          parsing: false,
          // The chart's own events come only inside its plot: the canvas listens itself.
          events: [],
          plugins: {
            title: { display: true, text: title, font: { weight: 'bold' } },
            legend: { display: false },
            tooltip: { enabled: false },
          },
          scales: {
            x: {
              type: 'linear',
              min: 0,
              max: top,
              ticks: { stepSize: step, precision: 0 },
              title: { display: true, text: 'At least this many units left' },
            },
            y: {
              min: 0,
              max: 100,
              ticks: { stepSize: 50, callback: (value) => `${value}%` },
              title: { display: true, text: 'Battles' },
            },
          },
        },
      }),
  );
  // Anywhere on the canvas, so that a finger near an end of the axis finds it.
  canvas.onclick = (event) => {
    const value = charts.get(canvas)?.scales.x.getValueForPixel(event.offsetX);
    if (value !== undefined && Number.isFinite(value)) onUnits(Math.round(Math.min(top, Math.max(0, value))));
  };
}

export function drawForceChart(canvas: HTMLCanvasElement, title: string, trials: Trial[], target: number) {
  const sorted = [...trials].sort((a, b) => a.number - b.number);
  const at = (key: 'chance' | 'low' | 'high') => sorted.map((t) => ({ x: t.number, y: 100 * t[key] }));
  const ends = sorted.length ? [sorted[0].number, sorted[sorted.length - 1].number] : [0, 1];
  canvas.setAttribute('aria-label', `${title}: the win chance of each number tried, with its 95% interval`);
  replace(
    canvas,
    () =>
      new Chart(canvas, {
        type: 'scatter',
        data: {
          datasets: [
            { label: '95% interval', data: at('high'), showLine: true, borderColor: '#9ab', pointRadius: 0, borderWidth: 1, fill: '+1', backgroundColor: '#9ab4' },
            { label: '95% interval, low', data: at('low'), showLine: true, borderColor: '#9ab', pointRadius: 0, borderWidth: 1 },
            { label: 'Win chance', data: at('chance'), showLine: true, borderColor: SIDE_COLOURS[0], backgroundColor: SIDE_COLOURS[0], pointRadius: 3 },
            {
              label: 'Wanted',
              data: [
                { x: ends[0], y: 100 * target },
                { x: ends[1], y: 100 * target },
              ],
              showLine: true,
              borderColor: '#2a2',
              borderDash: [6, 4],
              pointRadius: 0,
              borderWidth: 1,
            },
          ],
        },
        options: {
          animation: false,
          maintainAspectRatio: false,
          parsing: false,
          plugins: {
            title: { display: true, text: title, font: { weight: 'bold' } },
            legend: { display: true, labels: { filter: (item) => !String(item.text).endsWith('low') } },
          },
          scales: {
            x: { type: 'linear', ticks: { precision: 0 }, title: { display: true, text: 'Units' } },
            y: { min: 0, max: 100, ticks: { callback: (value) => `${value}%` }, title: { display: true, text: 'Battles won' } },
          },
        },
      }),
  );
}
